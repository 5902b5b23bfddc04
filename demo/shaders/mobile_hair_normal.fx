// Hair cards with a normal map, lit per pixel by up to four point lights.
// Needs shader model 3.

shared float4x4 World : WORLD;
shared float4x4 View : VIEW;
shared float4x4 WorldView : WORLDVIEW;
shared float4x4 ViewInv : VIEWINVERSE;
shared float4x4 Proj : PROJECTION;
shared float4x4 ViewProj : VIEWPROJECTION;
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldInv : WORLDINVERSE;
shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;

texture tex;
texture normalTex;
float4 lightPos[4];          // xyz position, w range
float4 lightColor[4];
float4 ambient = { 0.25f, 0.25f, 0.25f, 1.0f };
float4 materialColor = { 1.0f, 1.0f, 1.0f, 1.0f };

sampler hairSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};

sampler normalSampler = sampler_state
{
    Texture = <normalTex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};

struct VertexOut
{
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
    float3 worldPosition : TEXCOORD1;
    float3 tangent : TEXCOORD2;
    float3 binormal : TEXCOORD3;
    float3 normal : TEXCOORD4;
};

VertexOut VS(float4 position : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0,
             float3 tangent : TANGENT, float3 binormal : BINORMAL, uniform int lights)
{
    VertexOut output;
    output.position = mul(position, WorldViewProj);
    output.uv = uv;
    output.worldPosition = mul(position, World).xyz;
    output.tangent = mul(tangent, (float3x3)WorldInvTrans);
    output.binormal = mul(binormal, (float3x3)WorldInvTrans);
    output.normal = mul(normal, (float3x3)WorldInvTrans);
    return output;
}

float4 PS(VertexOut input, uniform int lights) : COLOR
{
    float3 bump = tex2D(normalSampler, input.uv).xyz * 2.0f - 1.0f;
    float3 n = normalize(bump.x * input.tangent + bump.y * input.binormal + bump.z * input.normal);
    float4 diffuse = ambient;
    for (int i = 0; i < lights; i++) {
        float3 toLight = normalize(lightPos[i].xyz - input.worldPosition);
        diffuse += lightColor[i] * saturate(dot(n, toLight) * 0.5f + 0.5f);
    }
    return tex2D(hairSampler, input.uv) * saturate(diffuse) * materialColor;
}

technique one_light
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        VertexShader = compile vs_3_0 VS(1);
        PixelShader = compile ps_3_0 PS(1);
    }
}

technique two_lights
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        VertexShader = compile vs_3_0 VS(2);
        PixelShader = compile ps_3_0 PS(2);
    }
}

technique three_lights
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        VertexShader = compile vs_3_0 VS(3);
        PixelShader = compile ps_3_0 PS(3);
    }
}

technique four_lights
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        CullMode = None;
        VertexShader = compile vs_3_0 VS(4);
        PixelShader = compile ps_3_0 PS(4);
    }
}

