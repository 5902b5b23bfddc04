// Skinned and rigid mobiles lit per vertex by up to six point lights. The
// camera matrices are shared by every effect of the library.

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
float4 lightPos[6];          // xyz position, w range
float4 lightColor[6];
float4 ambient = { 0.25f, 0.25f, 0.25f, 1.0f };
float4 materialColor = { 1.0f, 1.0f, 1.0f, 1.0f };

sampler baseSampler = sampler_state
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

float4 Light(int index, float3 position, float3 normal)
{
    float3 toLight = lightPos[index].xyz - position;
    float distance = length(toLight);
    float falloff = saturate(1.0f - distance / lightPos[index].w);
    return lightColor[index] * saturate(dot(normal, toLight / distance)) * falloff;
}

VertexOut VS(float4 position : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0,
             uniform int lights)
{
    VertexOut output;
    float3 worldPosition = mul(position, World).xyz;
    float3 n = normalize(mul(normal, (float3x3)WorldInvTrans));
    float4 diffuse = ambient;
    for (int i = 0; i < lights; i++)
        diffuse += Light(i, worldPosition, n);
    output.position = mul(position, WorldViewProj);
    output.diffuse = saturate(diffuse) * materialColor;
    output.uv = uv;
    return output;
}

float4 PS(VertexOut input, uniform int lights) : COLOR
{
    return tex2D(baseSampler, input.uv) * input.diffuse;
}

technique one_light
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = CCW;
        VertexShader = compile vs_2_0 VS(1);
        PixelShader = compile ps_2_0 PS(1);
    }
}

technique two_lights
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = CCW;
        VertexShader = compile vs_2_0 VS(2);
        PixelShader = compile ps_2_0 PS(2);
    }
}

technique three_lights
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = CCW;
        VertexShader = compile vs_2_0 VS(3);
        PixelShader = compile ps_2_0 PS(3);
    }
}

technique four_lights
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = CCW;
        VertexShader = compile vs_2_0 VS(4);
        PixelShader = compile ps_2_0 PS(4);
    }
}

technique five_lights
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = CCW;
        VertexShader = compile vs_2_0 VS(5);
        PixelShader = compile ps_2_0 PS(5);
    }
}

technique six_lights
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = CCW;
        VertexShader = compile vs_2_0 VS(6);
        PixelShader = compile ps_2_0 PS(6);
    }
}

