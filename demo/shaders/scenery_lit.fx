// Scenery lit by one directional light.

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
float3 lightDir = { 0.0f, -1.0f, 0.0f };
float4 lightColor = { 1.0f, 1.0f, 1.0f, 1.0f };
float4 ambient = { 0.3f, 0.3f, 0.3f, 1.0f };

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

VertexOut VS(float4 position : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)
{
    VertexOut output;
    output.position = mul(position, WorldViewProj);
    float3 n = normalize(mul(normal, (float3x3)WorldInvTrans));
    output.diffuse = ambient + lightColor * saturate(dot(n, -lightDir));
    output.uv = uv;
    return output;
}

float4 PS(VertexOut input) : COLOR
{
    return tex2D(baseSampler, input.uv) * input.diffuse;
}

technique scenery_lit
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = true;
        CullMode = CCW;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
