// Hair cards of mobiles: alpha-blended, both sides, lit per vertex by up to
// four point lights with a soft wrap.

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

struct VertexOut
{
    float4 position : POSITION;
    float4 diffuse : COLOR0;
    float2 uv : TEXCOORD0;
};

VertexOut VS(float4 position : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0,
             uniform int lights)
{
    VertexOut output;
    float3 worldPosition = mul(position, World).xyz;
    float3 n = normalize(mul(normal, (float3x3)WorldInvTrans));
    float4 diffuse = ambient;
    for (int i = 0; i < lights; i++) {
        float3 toLight = normalize(lightPos[i].xyz - worldPosition);
        diffuse += lightColor[i] * saturate(dot(n, toLight) * 0.5f + 0.5f);
    }
    output.position = mul(position, WorldViewProj);
    output.diffuse = saturate(diffuse) * materialColor;
    output.uv = uv;
    return output;
}

float4 PS(VertexOut input, uniform int lights) : COLOR
{
    return tex2D(hairSampler, input.uv) * input.diffuse;
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
        VertexShader = compile vs_2_0 VS(1);
        PixelShader = compile ps_2_0 PS(1);
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
        VertexShader = compile vs_2_0 VS(2);
        PixelShader = compile ps_2_0 PS(2);
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
        VertexShader = compile vs_2_0 VS(3);
        PixelShader = compile ps_2_0 PS(3);
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
        VertexShader = compile vs_2_0 VS(4);
        PixelShader = compile ps_2_0 PS(4);
    }
}

